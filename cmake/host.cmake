# Host build: the driver sources compiled with the platform seam bound to the
# simulated platform, the simulator itself, tools and tests.
set(EC_HOST_WARNINGS -Wall -Wextra -Werror)

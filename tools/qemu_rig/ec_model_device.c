// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The firmware rig's embedded controller: an ISA device that puts an EC model
 * behind the platform's real EC ports, so firmware under test talks to the
 * same protocol it meets on a board.
 *
 * Ports handed to the model, one byte each:
 *   0x62   ACPI EC data
 *   0x66   ACPI EC command/status (0x64 between them is the i8042 keyboard
 *          controller, so the two are separate regions, never one range)
 *   0x80   POST progress codes (above the board's dummy "ioport80")
 *   0xCF9  reset control, writes only; it then acts as the ICH9 LPC's register
 *          it covers, so a write of 0x0E still restarts the machine
 *
 * The model is either a shared library with the C interface of
 * ec_model_api.h (model=PATH, settings=PATH) or a process at the other end of
 * a unix stream socket (socket=PATH). Every system reset is the platform
 * reset (PLTRST#) the EC sees; the EC itself keeps standby power until QEMU
 * exits or power-cut-after cuts it.
 */

#include "qemu/osdep.h"
#include <dlfcn.h>
#include <sys/socket.h>
#include "qapi/error.h"
#include "qemu/error-report.h"
#include "qemu/module.h"
#include "qemu/notify.h"
#include "qemu/sockets.h"
#include "qemu/timer.h"
#include "hw/isa/isa.h"
#include "hw/qdev-properties.h"
#include "sysemu/runstate.h"
#include "sysemu/sysemu.h"
#include "qom/object.h"
#include "ec_model_api.h"

#define TYPE_EC_MODEL_DEVICE "ec-model"
OBJECT_DECLARE_SIMPLE_TYPE(EcModelDeviceState, EC_MODEL_DEVICE)

enum {
    EC_DATA_PORT = 0x62,
    EC_COMMAND_PORT = 0x66,
    PROGRESS_PORT = 0x80,
    RESET_CONTROL_PORT = 0xCF9,
};

/* Above the board's dummy ioport80 (priority 0) and the ICH9 LPC's reset
 * control register (priority 1). */
#define PROGRESS_PRIORITY 1
#define RESET_CONTROL_PRIORITY 2

/* ICH9 reset control: bit 2 starts the reset; bits 3 (full reset) and 1
 * (system reset) are kept and read back. */
#define RESET_CONTROL_START 0x04
#define RESET_CONTROL_KEPT 0x0A

/* Port log record kinds. */
#define LOG_READ 'i'
#define LOG_WRITE 'o'
#define LOG_RESET 'r'
#define LOG_POWER_CUT 'p'
#define LOG_RECORD_SIZE 16
#define LOG_BUFFER_SIZE (LOG_RECORD_SIZE * 4096)

/* Socket record kinds, device to model. */
#define SOCKET_WRITE 'w'
#define SOCKET_READ 'r'
#define SOCKET_RESET 'x'
#define SOCKET_RECORD_SIZE 4
#define SOCKET_BUFFER_SIZE (SOCKET_RECORD_SIZE * 1024)

/* What a read answers once the EC has no power: the bus floats high. */
#define UNPOWERED_READ 0xFF

#define EC_PORT_COUNT 3

typedef struct EcPort {
    MemoryRegion io;
    EcModelDeviceState *dev;
    uint16_t port;
} EcPort;

typedef struct EcModelLibrary {
    void *handle;
    ec_model *model;
    __typeof__(ec_model_read) *read;
    __typeof__(ec_model_write) *write;
    __typeof__(ec_model_platform_reset) *platform_reset;
    __typeof__(ec_model_close) *close;
} EcModelLibrary;

struct EcModelDeviceState {
    ISADevice parent_obj;

    char *model_path;
    char *settings_path;
    char *socket_path;
    char *log_path;
    uint64_t power_cut_after;

    EcPort ec_ports[EC_PORT_COUNT];
    MemoryRegion reset_control;
    uint8_t reset_control_value;

    EcModelLibrary library;
    int socket_fd;
    uint8_t socket_out[SOCKET_BUFFER_SIZE];
    size_t socket_used;

    int log_fd;
    uint8_t log_out[LOG_BUFFER_SIZE];
    size_t log_used;

    uint64_t accesses;
    bool powered;
    Notifier exit_notifier;
};

/* ---- port log ---- */

static void log_flush(EcModelDeviceState *s)
{
    if (s->log_fd >= 0 && s->log_used > 0 &&
        qemu_write_full(s->log_fd, s->log_out, s->log_used) != s->log_used) {
        error_report("ec-model: cannot write the port log %s: %s",
                     s->log_path, strerror(errno));
    }
    s->log_used = 0;
}

static void log_event(EcModelDeviceState *s, uint16_t port, uint8_t kind,
                      uint8_t value)
{
    uint8_t *record;

    if (s->log_fd < 0) {
        return;
    }
    if (s->log_used == LOG_BUFFER_SIZE) {
        log_flush(s);
    }
    record = s->log_out + s->log_used;
    stq_le_p(record, qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL));
    stw_le_p(record + 8, port);
    record[10] = kind;
    record[11] = value;
    stl_le_p(record + 12, 0);
    s->log_used += LOG_RECORD_SIZE;
}

/* ---- external model on a socket ---- */

static void socket_lost(EcModelDeviceState *s)
{
    error_report("ec-model: the external EC model on %s closed its socket",
                 s->socket_path);
    close(s->socket_fd);
    s->socket_fd = -1;
    s->socket_used = 0;
    s->powered = false;
    log_flush(s);
    qemu_system_shutdown_request(SHUTDOWN_CAUSE_HOST_ERROR);
}

static bool socket_flush(EcModelDeviceState *s)
{
    size_t sent = 0;

    while (sent < s->socket_used) {
        ssize_t n = send(s->socket_fd, s->socket_out + sent,
                         s->socket_used - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            socket_lost(s);
            return false;
        }
        sent += n;
    }
    s->socket_used = 0;
    return true;
}

/* Writes and resets wait in the buffer until the next read needs an answer
 * (or the buffer fills): the model sees every record in order, and a
 * stream of writes costs no round trip each. */
static void socket_record(EcModelDeviceState *s, uint8_t kind, uint16_t port,
                          uint8_t value)
{
    uint8_t *record;

    if (s->socket_used == SOCKET_BUFFER_SIZE && !socket_flush(s)) {
        return;
    }
    record = s->socket_out + s->socket_used;
    record[0] = kind;
    stw_le_p(record + 1, port);
    record[3] = value;
    s->socket_used += SOCKET_RECORD_SIZE;
}

static uint8_t socket_read(EcModelDeviceState *s, uint16_t port)
{
    uint8_t value;
    ssize_t n;

    socket_record(s, SOCKET_READ, port, 0);
    if (s->socket_fd < 0 || !socket_flush(s)) {
        return UNPOWERED_READ;
    }
    do {
        n = recv(s->socket_fd, &value, 1, 0);
    } while (n < 0 && errno == EINTR);
    if (n != 1) {
        socket_lost(s);
        return UNPOWERED_READ;
    }
    return value;
}

static bool socket_open(EcModelDeviceState *s, Error **errp)
{
    s->socket_fd = unix_connect(s->socket_path, errp);
    return s->socket_fd >= 0;
}

/* ---- model library ---- */

static bool library_symbol(EcModelDeviceState *s, const char *name,
                           void **symbol, Error **errp)
{
    *symbol = dlsym(s->library.handle, name);
    if (*symbol == NULL) {
        error_setg(errp, "ec-model: %s has no %s", s->model_path, name);
        return false;
    }
    return true;
}

static bool library_open(EcModelDeviceState *s, Error **errp)
{
    EcModelLibrary *lib = &s->library;
    __typeof__(ec_model_api_version) *api_version;
    __typeof__(ec_model_open) *open_model;
    char reason[256] = "";
    uint32_t version;

    lib->handle = dlopen(s->model_path, RTLD_NOW | RTLD_LOCAL);
    if (lib->handle == NULL) {
        error_setg(errp, "ec-model: cannot load %s: %s", s->model_path,
                   dlerror());
        return false;
    }
    if (!library_symbol(s, "ec_model_api_version", (void **)&api_version,
                        errp) ||
        !library_symbol(s, "ec_model_open", (void **)&open_model, errp) ||
        !library_symbol(s, "ec_model_read", (void **)&lib->read, errp) ||
        !library_symbol(s, "ec_model_write", (void **)&lib->write, errp) ||
        !library_symbol(s, "ec_model_platform_reset",
                        (void **)&lib->platform_reset, errp) ||
        !library_symbol(s, "ec_model_close", (void **)&lib->close, errp)) {
        return false;
    }
    version = api_version();
    if (version != EC_MODEL_API_VERSION) {
        error_setg(errp, "ec-model: %s has interface version %" PRIu32
                   ", this device speaks %u", s->model_path, version,
                   EC_MODEL_API_VERSION);
        return false;
    }
    lib->model = open_model(s->settings_path, reason, sizeof(reason));
    if (lib->model == NULL) {
        error_setg(errp, "ec-model: %s", reason[0] ? reason :
                   "the model refused to open");
        return false;
    }
    return true;
}

/* ---- the EC behind the ports: one call per access ---- */

static uint8_t model_read(EcModelDeviceState *s, uint16_t port)
{
    if (s->library.model) {
        return s->library.read(s->library.model, port);
    }
    return socket_read(s, port);
}

static void model_write(EcModelDeviceState *s, uint16_t port, uint8_t value)
{
    if (s->library.model) {
        s->library.write(s->library.model, port, value);
    } else {
        socket_record(s, SOCKET_WRITE, port, value);
    }
}

static void model_platform_reset(EcModelDeviceState *s)
{
    if (s->library.model) {
        s->library.platform_reset(s->library.model);
    } else {
        socket_record(s, SOCKET_RESET, 0, 0);
    }
}

/* Standby power gone: the model writes its flash file and report. */
static void model_close(EcModelDeviceState *s)
{
    if (s->library.model) {
        s->library.close(s->library.model);
        s->library.model = NULL;
    }
    if (s->socket_fd >= 0) {
        socket_flush(s);
        if (s->socket_fd >= 0) {
            close(s->socket_fd);
            s->socket_fd = -1;
        }
    }
    s->powered = false;
}

/* The EC and its flash lose power mid-run: nothing reaches the model any
 * more, and QEMU ends as a power loss ends the machine. */
static void power_cut(EcModelDeviceState *s)
{
    log_event(s, 0, LOG_POWER_CUT, 0);
    log_flush(s);
    model_close(s);
    qemu_system_shutdown_request(SHUTDOWN_CAUSE_HOST_SIGNAL);
}

static void access_done(EcModelDeviceState *s)
{
    s->accesses++;
    if (s->accesses == s->power_cut_after) {
        power_cut(s);
    }
}

static uint64_t ec_port_read(void *opaque, hwaddr addr, unsigned size)
{
    EcPort *p = opaque;
    EcModelDeviceState *s = p->dev;
    uint8_t value;

    if (!s->powered) {
        return UNPOWERED_READ;
    }
    value = model_read(s, p->port);
    log_event(s, p->port, LOG_READ, value);
    access_done(s);
    return value;
}

static void ec_port_write(void *opaque, hwaddr addr, uint64_t value,
                          unsigned size)
{
    EcPort *p = opaque;
    EcModelDeviceState *s = p->dev;

    if (!s->powered) {
        return;
    }
    model_write(s, p->port, value);
    log_event(s, p->port, LOG_WRITE, value);
    access_done(s);
}

static const MemoryRegionOps ec_port_ops = {
    .read = ec_port_read,
    .write = ec_port_write,
    .valid.min_access_size = 1,
    .valid.max_access_size = 1,
    .endianness = DEVICE_LITTLE_ENDIAN,
};

/* The chipset register this region covers, as the ICH9 LPC implements it. */
static void reset_control_write(void *opaque, hwaddr addr, uint64_t value,
                                unsigned size)
{
    EcModelDeviceState *s = opaque;

    if (s->powered) {
        model_write(s, RESET_CONTROL_PORT, value);
        log_event(s, RESET_CONTROL_PORT, LOG_WRITE, value);
        access_done(s);
    }
    if (value & RESET_CONTROL_START) {
        qemu_system_reset_request(SHUTDOWN_CAUSE_GUEST_RESET);
        return;
    }
    s->reset_control_value = value & RESET_CONTROL_KEPT;
}

static uint64_t reset_control_read(void *opaque, hwaddr addr, unsigned size)
{
    EcModelDeviceState *s = opaque;

    return s->reset_control_value;
}

static const MemoryRegionOps reset_control_ops = {
    .read = reset_control_read,
    .write = reset_control_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
};

/* ---- lifecycle ---- */

static void ec_model_device_reset(DeviceState *dev)
{
    EcModelDeviceState *s = EC_MODEL_DEVICE(dev);

    s->reset_control_value = 0;
    if (s->powered) {
        model_platform_reset(s);
        log_event(s, 0, LOG_RESET, 0);
    }
    log_flush(s);
}

static void ec_model_device_exit(Notifier *notifier, void *data)
{
    EcModelDeviceState *s = container_of(notifier, EcModelDeviceState,
                                         exit_notifier);

    log_flush(s);
    model_close(s);
    if (s->log_fd >= 0) {
        close(s->log_fd);
        s->log_fd = -1;
    }
}

static bool open_backend(EcModelDeviceState *s, Error **errp)
{
    if (!s->model_path == !s->socket_path) {
        error_setg(errp, "ec-model: give exactly one of model=PATH and "
                   "socket=PATH");
        return false;
    }
    if (s->settings_path && !s->model_path) {
        error_setg(errp, "ec-model: settings=PATH goes with model=PATH");
        return false;
    }
    return s->model_path ? library_open(s, errp) : socket_open(s, errp);
}

static void add_port(EcModelDeviceState *s, MemoryRegion *io, int index,
                     uint16_t port, int priority)
{
    EcPort *p = &s->ec_ports[index];

    p->dev = s;
    p->port = port;
    memory_region_init_io(&p->io, OBJECT(s), &ec_port_ops, p,
                          TYPE_EC_MODEL_DEVICE, 1);
    memory_region_add_subregion_overlap(io, port, &p->io, priority);
}

static void ec_model_device_realize(DeviceState *dev, Error **errp)
{
    EcModelDeviceState *s = EC_MODEL_DEVICE(dev);
    MemoryRegion *io = isa_address_space_io(ISA_DEVICE(dev));

    s->socket_fd = -1;
    s->log_fd = -1;
    if (s->log_path) {
        s->log_fd = qemu_open_old(s->log_path,
                                  O_WRONLY | O_CREAT | O_TRUNC | O_BINARY,
                                  0644);
        if (s->log_fd < 0) {
            error_setg_errno(errp, errno, "ec-model: cannot create %s",
                             s->log_path);
            return;
        }
    }
    if (!open_backend(s, errp)) {
        if (s->library.handle) {
            dlclose(s->library.handle);
            s->library.handle = NULL;
        }
        if (s->log_fd >= 0) {
            close(s->log_fd);
            s->log_fd = -1;
        }
        return;
    }
    s->powered = true;

    add_port(s, io, 0, EC_DATA_PORT, 0);
    add_port(s, io, 1, EC_COMMAND_PORT, 0);
    add_port(s, io, 2, PROGRESS_PORT, PROGRESS_PRIORITY);
    memory_region_init_io(&s->reset_control, OBJECT(dev), &reset_control_ops,
                          s, TYPE_EC_MODEL_DEVICE "-reset-control", 1);
    memory_region_add_subregion_overlap(io, RESET_CONTROL_PORT,
                                        &s->reset_control,
                                        RESET_CONTROL_PRIORITY);

    s->exit_notifier.notify = ec_model_device_exit;
    qemu_add_exit_notifier(&s->exit_notifier);
}

static Property ec_model_device_properties[] = {
    DEFINE_PROP_STRING("model", EcModelDeviceState, model_path),
    DEFINE_PROP_STRING("settings", EcModelDeviceState, settings_path),
    DEFINE_PROP_STRING("socket", EcModelDeviceState, socket_path),
    DEFINE_PROP_STRING("log", EcModelDeviceState, log_path),
    DEFINE_PROP_UINT64("power-cut-after", EcModelDeviceState,
                       power_cut_after, 0),
    DEFINE_PROP_END_OF_LIST(),
};

static void ec_model_device_class_init(ObjectClass *klass, void *data)
{
    DeviceClass *dc = DEVICE_CLASS(klass);

    dc->realize = ec_model_device_realize;
    dc->reset = ec_model_device_reset;
    dc->desc = "EC model behind the ACPI EC ports, port 0x80 and 0xCF9";
    device_class_set_props(dc, ec_model_device_properties);
    set_bit(DEVICE_CATEGORY_MISC, dc->categories);
}

static const TypeInfo ec_model_device_info = {
    .name = TYPE_EC_MODEL_DEVICE,
    .parent = TYPE_ISA_DEVICE,
    .instance_size = sizeof(EcModelDeviceState),
    .class_init = ec_model_device_class_init,
};

static void ec_model_device_register_types(void)
{
    type_register_static(&ec_model_device_info);
}

type_init(ec_model_device_register_types)

// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The ec-model device's link to its EC model (ec_model_link.h).
 *
 * Socket records, device to model, 4 bytes each: kind ('w' write, 'r' read,
 * 'x' platform reset), u16 port little-endian, value (0 for 'r' and 'x').
 * The model answers each 'r' with one byte, the value read.
 */

#include "qemu/osdep.h"
#include <dlfcn.h>
#include "qapi/error.h"
#include "qemu/error-report.h"
#include "qemu-main.h"
#include "chardev/char.h"
#include "sysemu/runstate.h"
#include "ec_model_link.h"

#define SOCKET_WRITE 'w'
#define SOCKET_READ 'r'
#define SOCKET_RESET 'x'

bool ec_model_link_library(EcModelLink *link, const char *path,
                           const char *settings, Error **errp)
{
    __typeof__(ec_model_api_version) *api_version;
    __typeof__(ec_model_open) *open_model;
    struct { const char *name; void **symbol; } symbols[] = {
        { "ec_model_api_version", (void **)&api_version },
        { "ec_model_open", (void **)&open_model },
        { "ec_model_read", (void **)&link->read },
        { "ec_model_write", (void **)&link->write },
        { "ec_model_platform_reset", (void **)&link->platform_reset },
        { "ec_model_close", (void **)&link->close },
    };
    char reason[256] = "";
    uint32_t version;

    link->library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (link->library == NULL) {
        error_setg(errp, "ec-model: cannot load %s: %s", path, dlerror());
        return false;
    }
    for (size_t i = 0; i < ARRAY_SIZE(symbols); i++) {
        *symbols[i].symbol = dlsym(link->library, symbols[i].name);
        if (*symbols[i].symbol == NULL) {
            error_setg(errp, "ec-model: %s has no %s", path, symbols[i].name);
            goto refused;
        }
    }
    version = api_version();
    if (version != EC_MODEL_API_VERSION) {
        error_setg(errp, "ec-model: %s has interface version %" PRIu32
                   ", this device speaks %u", path, version,
                   EC_MODEL_API_VERSION);
        goto refused;
    }
    link->model = open_model(settings, reason, sizeof(reason));
    if (link->model == NULL) {
        error_setg(errp, "ec-model: %s",
                   reason[0] ? reason : "the model refused to open");
        goto refused;
    }
    link->open = true;
    return true;

refused:
    dlclose(link->library);
    link->library = NULL;
    return false;
}

/*
 * QEMU 7.2 gives a device no say in the exit status, yet a run whose model
 * went away proves nothing and must not end with status 0. The link wraps
 * the main loop hook (as a UI may) and turns that exit into a failure; QEMU
 * still shuts down and cleans up as always.
 */
static int (*unwrapped_main)(void);
static bool model_lost;

static int ec_model_main(void)
{
    int status = unwrapped_main();

    return model_lost ? EXIT_FAILURE : status;
}

static void socket_event(void *opaque, QEMUChrEvent event)
{
    EcModelLink *link = opaque;

    if (event == CHR_EVENT_CLOSED && link->open && !link->shutting_down) {
        error_report("ec-model: the external EC model closed its socket");
        link->open = false;
        model_lost = true;
        link->lost(link->opaque);
        qemu_system_shutdown_request(SHUTDOWN_CAUSE_HOST_ERROR);
    }
}

static void socket_shutdown(Notifier *notifier, void *data)
{
    container_of(notifier, EcModelLink, shutdown)->shutting_down = true;
}

bool ec_model_link_socket(EcModelLink *link, CharBackend *chr,
                          void (*lost)(void *opaque), void *opaque,
                          Error **errp)
{
    if (!object_dynamic_cast(OBJECT(qemu_chr_fe_get_driver(chr)),
                             TYPE_CHARDEV_SOCKET)) {
        error_setg(errp, "ec-model: the chardev must be a socket: a port "
                   "read waits for the model's answer");
        return false;
    }
    if (!qemu_chr_fe_backend_open(chr)) {
        error_setg(errp, "ec-model: the chardev is not connected to a model");
        return false;
    }
    link->chr = chr;
    link->lost = lost;
    link->opaque = opaque;
    link->open = true;
    qemu_chr_fe_set_handlers(chr, NULL, NULL, socket_event, NULL, link, NULL,
                             true);
    link->shutdown.notify = socket_shutdown;
    qemu_register_shutdown_notifier(&link->shutdown);
    if (qemu_main != ec_model_main) {
        unwrapped_main = qemu_main;
        qemu_main = ec_model_main;
    }
    return true;
}

/* Each record goes out as it happens; a read then holds the vCPU until the
 * model answers, as the bus waits for the EC. */
static uint8_t socket_exchange(EcModelLink *link, uint8_t kind, uint16_t port,
                               uint8_t value)
{
    uint8_t record[4] = { kind, port, port >> 8, value };
    uint8_t answer = EC_MODEL_LINK_NO_ANSWER;

    if (!link->open) {
        return answer;
    }
    if (qemu_chr_fe_write_all(link->chr, record, sizeof(record)) !=
        (int)sizeof(record) ||
        (kind == SOCKET_READ && qemu_chr_fe_read_all(link->chr, &answer, 1) != 1)) {
        socket_event(link, CHR_EVENT_CLOSED);
        return EC_MODEL_LINK_NO_ANSWER;
    }
    return answer;
}

uint8_t ec_model_link_read(EcModelLink *link, uint16_t port)
{
    if (link->chr) {
        return socket_exchange(link, SOCKET_READ, port, 0);
    }
    return link->open ? link->read(link->model, port) : EC_MODEL_LINK_NO_ANSWER;
}

void ec_model_link_write(EcModelLink *link, uint16_t port, uint8_t value)
{
    if (link->chr) {
        socket_exchange(link, SOCKET_WRITE, port, value);
    } else if (link->open) {
        link->write(link->model, port, value);
    }
}

void ec_model_link_platform_reset(EcModelLink *link)
{
    if (link->chr) {
        socket_exchange(link, SOCKET_RESET, 0, 0);
    } else if (link->open) {
        link->platform_reset(link->model);
    }
}

void ec_model_link_close(EcModelLink *link)
{
    if (!link->open) {
        return;
    }
    link->open = false;
    if (link->chr) {
        qemu_chr_fe_disconnect(link->chr);
    } else {
        link->close(link->model);
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The firmware rig's embedded controller: an ISA device that puts an EC model
 * behind the platform's real EC ports, so firmware under test talks to the
 * same protocol it meets on a board. All EC behaviour is the model's
 * (ec_model_link.h: a library, model=, or a process behind a socket chardev,
 * chardev=); the device carries each access to it and logs it
 * (port_log_record.h). The EC keeps standby power across platform resets,
 * until QEMU exits or power-cut-after cuts it.
 */

#include "qemu/osdep.h"
#include "qapi/error.h"
#include "qemu/error-report.h"
#include "qemu/module.h"
#include "qemu/timer.h"
#include "hw/isa/isa.h"
#include "hw/qdev-properties.h"
#include "hw/qdev-properties-system.h"
#include "migration/vmstate.h"
#include "sysemu/runstate.h"
#include "sysemu/sysemu.h"
#include "ec_model_link.h"
#include "port_log_record.h"

#define TYPE_EC_MODEL_DEVICE "ec-model"
OBJECT_DECLARE_SIMPLE_TYPE(EcModelDeviceState, EC_MODEL_DEVICE)

enum { DATA, COMMAND, PROGRESS, RESET_CONTROL, PORT_COUNT };

/* Above the board's dummy ioport80 (priority 0) and the ICH9 LPC's reset
 * control register (priority 1), which the device taps rather than owns. */
static const int port_priority[PORT_COUNT] = { 0, 0, 1, 2 };

#define LOG_BUFFER_SIZE (PORT_LOG_RECORD_SIZE * 4096)

typedef struct EcPort {
    MemoryRegion io;
    EcModelDeviceState *dev;
    uint16_t port;
    MemoryRegion *chipset;   /* the register a tapped port passes on to */
    hwaddr chipset_offset;
} EcPort;

struct EcModelDeviceState {
    ISADevice parent_obj;

    char *model_path;
    char *settings_path;
    CharBackend chr;
    char *log_path;
    uint64_t power_cut_after;
    uint16_t port_number[PORT_COUNT];

    EcPort ports[PORT_COUNT];
    EcModelLink link;
    int log_fd;
    uint8_t log_out[LOG_BUFFER_SIZE];
    size_t log_used;
    uint64_t accesses;
    Notifier exit_notifier;
};

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
    struct port_log_record record = {
        .time_ns = qemu_clock_get_ns(QEMU_CLOCK_VIRTUAL),
        .port = port, .kind = kind, .value = value,
    };

    if (s->log_fd >= 0) {
        if (s->log_used == LOG_BUFFER_SIZE) {
            log_flush(s);
        }
        port_log_record_put(s->log_out + s->log_used, &record);
        s->log_used += PORT_LOG_RECORD_SIZE;
    }
}

static void model_lost(void *opaque)
{
    log_flush(opaque);
}

static void access_done(EcModelDeviceState *s, uint16_t port, uint8_t kind,
                        uint8_t value)
{
    log_event(s, port, kind, value);
    if (++s->accesses == s->power_cut_after) {
        log_event(s, 0, PORT_LOG_POWER_CUT, 0);
        log_flush(s);
        ec_model_link_close(&s->link);
        qemu_system_shutdown_request(SHUTDOWN_CAUSE_HOST_SIGNAL);
    }
}

/* Reads of a tapped port are the chipset register's alone. */
static uint64_t ec_port_read(void *opaque, hwaddr addr, unsigned size)
{
    EcPort *p = opaque;
    EcModelDeviceState *s = p->dev;
    uint64_t value = EC_MODEL_LINK_NO_ANSWER;

    if (p->chipset) {
        memory_region_dispatch_read(p->chipset, p->chipset_offset, &value,
                                    size_memop(size), MEMTXATTRS_UNSPECIFIED);
    } else if (s->link.open) {
        value = ec_model_link_read(&s->link, p->port);
        access_done(s, p->port, PORT_LOG_READ, value);
    }
    return value;
}

/* A write to a tapped port reaches the EC, then the chipset register, which
 * restarts the machine as it always does. */
static void ec_port_write(void *opaque, hwaddr addr, uint64_t value,
                          unsigned size)
{
    EcPort *p = opaque;
    EcModelDeviceState *s = p->dev;

    if (s->link.open) {
        ec_model_link_write(&s->link, p->port, value);
        access_done(s, p->port, PORT_LOG_WRITE, value);
    }
    if (p->chipset) {
        memory_region_dispatch_write(p->chipset, p->chipset_offset, value,
                                     size_memop(size), MEMTXATTRS_UNSPECIFIED);
    }
}

static const MemoryRegionOps ec_port_ops = {
    .read = ec_port_read,
    .write = ec_port_write,
    .valid.min_access_size = 1,
    .valid.max_access_size = 1,
    .endianness = DEVICE_LITTLE_ENDIAN,
};

/* Any size, as the chipset register it taps takes. */
static const MemoryRegionOps tap_port_ops = {
    .read = ec_port_read,
    .write = ec_port_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
};

/* Every system reset is the platform reset (PLTRST#) the EC sees. */
static void ec_model_device_reset_hold(Object *obj)
{
    EcModelDeviceState *s = EC_MODEL_DEVICE(obj);

    if (s->link.open) {
        ec_model_link_platform_reset(&s->link);
        log_event(s, 0, PORT_LOG_RESET, 0);
    }
    log_flush(s);
}

static void ec_model_device_exit(Notifier *notifier, void *data)
{
    EcModelDeviceState *s = container_of(notifier, EcModelDeviceState,
                                         exit_notifier);

    log_flush(s);
    ec_model_link_close(&s->link);
}

static bool open_backend(EcModelDeviceState *s, Error **errp)
{
    if (!s->model_path == !qemu_chr_fe_backend_connected(&s->chr)) {
        error_setg(errp, "ec-model: give exactly one of model=PATH and "
                   "chardev=ID");
        return false;
    }
    if (s->settings_path && !s->model_path) {
        error_setg(errp, "ec-model: settings=PATH goes with model=PATH");
        return false;
    }
    if (s->model_path) {
        return ec_model_link_library(&s->link, s->model_path,
                                     s->settings_path, errp);
    }
    return ec_model_link_socket(&s->link, &s->chr, model_lost, s, errp);
}

static void add_port(EcModelDeviceState *s, int index)
{
    MemoryRegion *io = isa_address_space_io(ISA_DEVICE(s));
    EcPort *p = &s->ports[index];
    MemoryRegionSection below;

    p->dev = s;
    p->port = s->port_number[index];
    below = memory_region_find(io, p->port, 1);
    if (index == RESET_CONTROL && below.mr) {
        p->chipset = below.mr;   /* keeps the reference the find took */
        p->chipset_offset = below.offset_within_region;
    } else if (below.mr) {
        memory_region_unref(below.mr);
    }
    memory_region_init_io(&p->io, OBJECT(s), p->chipset ? &tap_port_ops :
                          &ec_port_ops, p, TYPE_EC_MODEL_DEVICE, 1);
    memory_region_add_subregion_overlap(io, p->port, &p->io,
                                        port_priority[index]);
}

static void ec_model_device_realize(DeviceState *dev, Error **errp)
{
    EcModelDeviceState *s = EC_MODEL_DEVICE(dev);

    s->log_fd = s->log_path ? qemu_open_old(s->log_path, O_WRONLY | O_CREAT |
                                            O_TRUNC | O_BINARY, 0644) : -1;
    if (s->log_path && s->log_fd < 0) {
        error_setg_errno(errp, errno, "ec-model: cannot create %s",
                         s->log_path);
        return;
    }
    if (!open_backend(s, errp)) {
        if (s->log_fd >= 0) {
            close(s->log_fd);
        }
        return;
    }
    for (int i = 0; i < PORT_COUNT; i++) {
        add_port(s, i);
    }
    s->exit_notifier.notify = ec_model_device_exit;
    qemu_add_exit_notifier(&s->exit_notifier);
}

/* The EC's state lives in the model, outside QEMU: a migration or a
 * snapshot would lose it, so the device refuses both. */
static const VMStateDescription ec_model_vmstate = {
    .name = TYPE_EC_MODEL_DEVICE,
    .unmigratable = 1,
};

static Property ec_model_device_properties[] = {
    DEFINE_PROP_STRING("model", EcModelDeviceState, model_path),
    DEFINE_PROP_STRING("settings", EcModelDeviceState, settings_path),
    DEFINE_PROP_CHR("chardev", EcModelDeviceState, chr),
    DEFINE_PROP_STRING("log", EcModelDeviceState, log_path),
    DEFINE_PROP_UINT64("power-cut-after", EcModelDeviceState, power_cut_after,
                       0),
    DEFINE_PROP_UINT16("data-port", EcModelDeviceState, port_number[DATA],
                       0x62),
    DEFINE_PROP_UINT16("command-port", EcModelDeviceState,
                       port_number[COMMAND], 0x66),
    DEFINE_PROP_UINT16("progress-port", EcModelDeviceState,
                       port_number[PROGRESS], 0x80),
    DEFINE_PROP_UINT16("reset-control-port", EcModelDeviceState,
                       port_number[RESET_CONTROL], 0xCF9),
    DEFINE_PROP_END_OF_LIST(),
};

static void ec_model_device_class_init(ObjectClass *klass, void *data)
{
    DeviceClass *dc = DEVICE_CLASS(klass);

    dc->realize = ec_model_device_realize;
    dc->vmsd = &ec_model_vmstate;
    dc->desc = "EC model behind the ACPI EC ports, POST codes, reset control";
    RESETTABLE_CLASS(klass)->phases.hold = ec_model_device_reset_hold;
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

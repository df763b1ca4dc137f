// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * How the ec-model device reaches its EC model: a shared library with the C
 * interface of ec_model_api.h, loaded into QEMU, or a process at the other
 * end of a socket chardev. Either way one call per port access, in order.
 */
#ifndef EC_MODEL_LINK_H
#define EC_MODEL_LINK_H

#include "chardev/char-fe.h"
#include "ec_model_api.h"

/* What a read answers once the model is gone: the bus floats high. */
#define EC_MODEL_LINK_NO_ANSWER 0xFF

typedef struct EcModelLink {
  void* library;
  ec_model* model;
  __typeof__(ec_model_read)* read;
  __typeof__(ec_model_write)* write;
  __typeof__(ec_model_platform_reset)* platform_reset;
  __typeof__(ec_model_close)* close;
  CharBackend* chr; /* the socket; NULL with a library */
  void (*lost)(void* opaque);
  void* opaque;
  Notifier shutdown;
  bool shutting_down; /* QEMU closes the socket itself from now on */
  bool open;          /* the EC has standby power */
} EcModelLink;

bool ec_model_link_library(EcModelLink* link, const char* path, const char* settings, Error** errp);
/* lost(opaque) runs when the external model closes the socket; QEMU then
 * shuts down and exits with a failure status. */
bool ec_model_link_socket(EcModelLink* link, CharBackend* chr, void (*lost)(void* opaque),
                          void* opaque, Error** errp);

uint8_t ec_model_link_read(EcModelLink* link, uint16_t port);
void ec_model_link_write(EcModelLink* link, uint16_t port, uint8_t value);
void ec_model_link_platform_reset(EcModelLink* link);
/* Standby power gone: the library writes its flash file and report, an
 * external model sees its socket close. */
void ec_model_link_close(EcModelLink* link);

#endif

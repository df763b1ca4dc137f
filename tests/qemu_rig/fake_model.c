// SPDX-License-Identifier: BSD-2-Clause-Patent
// A stand-in EC model library for the device tests: every read answers one
// more than the last byte written, and every call is journalled to the file
// the settings name, written only when the model is closed, so a test sees
// both what arrived and that standby power was removed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ec_model_api.h"

#ifndef FAKE_API_VERSION
#define FAKE_API_VERSION EC_MODEL_API_VERSION
#endif

struct ec_model {
  char journal_path[512];
  FILE* journal; // in memory until close
  char* text;
  size_t size;
  uint8_t last_written;
};

uint32_t ec_model_api_version(void) {
  return FAKE_API_VERSION;
}

// Settings: one line, either a journal path or "refuse REASON".
ec_model* ec_model_open(const char* settings_path, char* error, size_t error_size) {
  char line[512] = "";
  FILE* settings = settings_path ? fopen(settings_path, "r") : NULL;
  if (settings == NULL || fgets(line, sizeof line, settings) == NULL) {
    snprintf(error, error_size, "fake model: no settings");
    if (settings)
      fclose(settings);
    return NULL;
  }
  fclose(settings);
  line[strcspn(line, "\n")] = '\0';
  if (strncmp(line, "refuse ", 7) == 0) {
    snprintf(error, error_size, "fake model: %s", line + 7);
    return NULL;
  }
  ec_model* model = calloc(1, sizeof *model);
  snprintf(model->journal_path, sizeof model->journal_path, "%s", line);
  model->journal = open_memstream(&model->text, &model->size);
  return model;
}

uint8_t ec_model_read(ec_model* model, uint16_t port) {
  uint8_t value = (uint8_t)(model->last_written + 1);
  fprintf(model->journal, "r 0x%x 0x%x\n", port, value);
  return value;
}

void ec_model_write(ec_model* model, uint16_t port, uint8_t value) {
  model->last_written = value;
  fprintf(model->journal, "w 0x%x 0x%x\n", port, value);
}

void ec_model_platform_reset(ec_model* model) {
  fprintf(model->journal, "x\n");
}

void ec_model_close(ec_model* model) {
  fprintf(model->journal, "close\n");
  fclose(model->journal);
  FILE* out = fopen(model->journal_path, "w");
  if (out) {
    fwrite(model->text, 1, model->size, out);
    fclose(out);
  }
  free(model->text);
  free(model);
}

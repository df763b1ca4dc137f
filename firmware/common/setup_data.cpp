// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/setup_data.h"

const SETUP_VARIABLE_ID SetupVariable = {u"Setup", &SetupVariableGuid};

#pragma once

#include "filter_abi.h"

// Fills the host's service table: the eight services a filter may call, and a
// trap in every other slot that names the slot and stops the process.
void FillHostServices(HostServices* services);

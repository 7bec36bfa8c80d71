// VKVX_Error: carries one status code out of a constructor or an open
// sequence to the export that turns it into its status.  It never crosses an
// exported function.
#pragma once

#include <cstdint>

struct VKVX_Error {
    explicit VKVX_Error(int32_t s) : status(s) {}
    int32_t status;
};

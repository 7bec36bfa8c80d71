// Every entry the viewer binds, as a weak definition that answers 0 (or a
// null handle); FakeApi.cpp overrides the entries the tests script.  Each
// test library hides the entries it must lack with its version script.
#include "ApiBinding.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

#define FAKE_DEFAULT(group, name, counted, guard, kind, ret, params, args) \
    extern "C" __attribute__((weak, visibility("default"))) ret name params { return ret{}; }
KVX_API_ENTRIES(FAKE_DEFAULT)
#undef FAKE_DEFAULT

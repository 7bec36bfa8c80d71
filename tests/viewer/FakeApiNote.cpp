// The version note of a test library (FAKE_MAJOR.FAKE_MINOR).
#include "platform/VersionNote.h"

VKVX_DEFINE_VERSION_NOTE(FAKE_MAJOR, FAKE_MINOR, 9, 0);

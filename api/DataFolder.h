// The library's data folder: the path of a data file "vkvx_<stem>.<ext>" in
// Vantrel/KVX below the shared (/var/lib, or $VKVX_SHARED_DATA_DIR) or the
// per-user ($XDG_DATA_HOME, default ~/.local/share, or $VKVX_LOCAL_DATA_DIR)
// data folder.  The result lives in one static buffer of 1024 bytes that the
// next call overwrites.  Never fails: without a base folder the bare file
// name is returned, and when the maker folder cannot be created the file
// lands in "/KVX".
#pragma once

namespace vkvx {
const char* dataFilePath(const char* stem, const char* extension, bool shared);
}

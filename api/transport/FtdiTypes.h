// Handle type of the D2XX function family (one open FTDI channel).
#pragma once

using FT_HANDLE = void*;

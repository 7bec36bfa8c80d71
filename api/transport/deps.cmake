# The FX3 driver layer reaches real instruments through libusb-1.0.
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)
target_link_libraries(vkvx_deps INTERFACE PkgConfig::LIBUSB)

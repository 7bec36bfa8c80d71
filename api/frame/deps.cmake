# Frame utilities: libjpeg (libjpeg-turbo) writes the JPEG files.
find_package(JPEG REQUIRED)
target_link_libraries(vkvx_deps INTERFACE JPEG::JPEG)

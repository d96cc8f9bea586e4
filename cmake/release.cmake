# What a release tree adds to the build (make dist): every function and
# datum in a section of its own, so the linker can drop what nothing
# reaches, and no symbols or debug information in the shipped files.
# Optimisation for size comes from CMAKE_BUILD_TYPE=MinSizeRel.
add_compile_options(-ffunction-sections -fdata-sections)
# --no-insert-timestamp: the same sources give the same bytes.
add_link_options(-Wl,--gc-sections -s -Wl,--no-insert-timestamp)
# The packaging script names the zips after it.
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")

# The version the programs report on --version (RORUVivozo: -version): the project's own version.
set(vivozo_version_dir "${PROJECT_BINARY_DIR}/generated/version")
configure_file("${CMAKE_CURRENT_LIST_DIR}/VivozoVersion.h.in" "${vivozo_version_dir}/VivozoVersion.h" @ONLY)
add_library(VivozoVersion INTERFACE)
target_include_directories(VivozoVersion INTERFACE "${vivozo_version_dir}")

# Where the project keeps its RTCM 3 captures (data/rtcm3, with their README and licences).
# Included by the build, and run as a script by the shell tools: cmake -P cmake/Captures.cmake
get_filename_component(VIVOZO_CAPTURE_DIR "${CMAKE_CURRENT_LIST_DIR}/../data/rtcm3" ABSOLUTE)

if(CMAKE_SCRIPT_MODE_FILE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${VIVOZO_CAPTURE_DIR}")
    return()
endif()

# Tests and benchmarks find a capture by name through Captures/CaptureFile.h.
set(vivozo_capture_header_dir "${PROJECT_BINARY_DIR}/generated/captures")
configure_file("${CMAKE_CURRENT_LIST_DIR}/CaptureFile.h.in" "${vivozo_capture_header_dir}/Captures/CaptureFile.h" @ONLY)
add_library(VivozoCaptures INTERFACE)
target_include_directories(VivozoCaptures INTERFACE "${vivozo_capture_header_dir}")

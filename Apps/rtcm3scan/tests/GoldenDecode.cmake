# Runs rtcm3scan on one shipped capture and compares what it prints with the capture's golden file, byte
# for byte; with UPDATE=ON it rewrites the golden file instead. MODE epochs (the default): all that
# --epochs prints (standard error and standard output, in the order written), kept as <capture>.epochs.txt;
# MODE qc: the quality report of --qc, <capture>.qc.json; MODE gnuplot: the script of its picture,
# <capture>.qc.gp (standard output alone for both).
# NAME, when given, stands for the capture's name in the golden file's.
#   cmake -DPROGRAM=... -DCAPTURE_DIR=... -DCAPTURE=name.rtcm3 -DOPTIONS="--date 2022-05-24" -DSTATUS=1
#         -DACTUAL_DIR=... [-DMODE=qc] [-DNAME=name-dated] [-DUPDATE=ON] -P GoldenDecode.cmake
# The capture is named relative to its folder, so no path of the machine shows in the output.
foreach(required PROGRAM CAPTURE_DIR CAPTURE STATUS ACTUAL_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "GoldenDecode.cmake: ${required} is not set")
    endif()
endforeach()

separate_arguments(options UNIX_COMMAND "${OPTIONS}")
get_filename_component(stem "${CAPTURE}" NAME_WE)
if(NAME)
    set(stem "${NAME}")
endif()
if(NOT MODE OR MODE STREQUAL "epochs")
    set(mode_options --epochs)
    set(suffix epochs.txt)
    set(errors output)
elseif(MODE STREQUAL "qc")
    set(mode_options --qc)
    set(suffix qc.json)
    set(errors ignored)
elseif(MODE STREQUAL "gnuplot")
    set(mode_options --qc --gnuplot)
    set(suffix qc.gp)
    set(errors ignored)
else()
    message(FATAL_ERROR "GoldenDecode.cmake: no MODE ${MODE}")
endif()
set(golden "${CAPTURE_DIR}/${stem}.${suffix}")
set(actual "${ACTUAL_DIR}/${stem}.${suffix}")

execute_process(
    COMMAND "${PROGRAM}" ${mode_options} ${options} "${CAPTURE}"
    WORKING_DIRECTORY "${CAPTURE_DIR}"
    OUTPUT_VARIABLE output
    ERROR_VARIABLE ${errors}
    RESULT_VARIABLE status)
if(NOT status STREQUAL STATUS)
    message(FATAL_ERROR "rtcm3scan ${mode_options} ${CAPTURE} ended with ${status}, not ${STATUS}")
endif()

if(UPDATE)
    file(WRITE "${golden}" "${output}")
    message(STATUS "wrote ${golden}")
    return()
endif()

file(MAKE_DIRECTORY "${ACTUAL_DIR}")
file(WRITE "${actual}" "${output}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${golden}" "${actual}" RESULT_VARIABLE differs)
if(differs)
    execute_process(COMMAND diff -u "${golden}" "${actual}" OUTPUT_VARIABLE difference)
    string(LENGTH "${difference}" length)
    if(length GREATER 3000)
        string(SUBSTRING "${difference}" 0 3000 difference)
        string(APPEND difference "\n...")
    endif()
    # Unwrapped, so the lines read as diff prints them.
    message(NOTICE "${difference}")
    message(FATAL_ERROR "rtcm3scan ${mode_options} ${CAPTURE} differs from ${golden}; its whole output is in ${actual}")
endif()

# vivozo_gtest(<target> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [RESOURCE_LOCK <locks...>])
# Builds one GoogleTest executable beside the code it tests and registers its tests with CTest.
include(CTest)
include(GoogleTest)

function(vivozo_gtest target)
    if(NOT VIVOZO_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} VivozoCaptures GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    # One variable per property: a list value would be split on its way through test discovery.
    set(props TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "VIVOZO_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        ENVIRONMENT_MODIFICATION "VIVOZO_BINARY_DIR=set:${PROJECT_BINARY_DIR}")
    if(ARG_LABELS)
        list(APPEND props LABELS "${ARG_LABELS}")
    endif()
    if(ARG_RESOURCE_LOCK)
        list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

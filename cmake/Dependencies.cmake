# Finds the Debian packages the logger builds on; scripts/install-deps.sh installs them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)
pkg_check_modules(LOG4CPLUS REQUIRED IMPORTED_TARGET log4cplus)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
find_package(Boost REQUIRED COMPONENTS system date_time)
find_package(Qt5 REQUIRED COMPONENTS Core Sql)
find_package(SQLite3 REQUIRED)
find_package(ODBC REQUIRED)
find_package(fmt REQUIRED)

if(VIVOZO_TESTS)
    # A test looks at the quality picture pixel by pixel.
    find_package(Qt5 REQUIRED COMPONENTS Gui)
    find_package(GTest REQUIRED)
    find_package(benchmark REQUIRED)
endif()

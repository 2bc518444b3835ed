# What an install holds besides the programs (each installed beside its target), and the Debian package:
#   cmake --install build [--prefix DIR]       (cd build && cpack)  ->  build/roruvivozo_<version>_<arch>.deb
# Programs and scripts go to bin, the suite's schema and content to share/roruvivozo/db, the systemd units
# (the logger's and the status page's, naming the programs under the prefix) to lib/systemd/system and
# their environment file to etc/default.
set(vivozo_share_dir share/roruvivozo)
set(vivozo_packaging_dir "${PROJECT_SOURCE_DIR}/packaging")

# The suite creation script finds db/ beside bin/ once installed, and reports this version.
install(PROGRAMS "${PROJECT_SOURCE_DIR}/scripts/create-suite.sh" DESTINATION bin RENAME vivozo-create-suite)
install(FILES "${PROJECT_SOURCE_DIR}/db/schema.sql" "${PROJECT_SOURCE_DIR}/db/content.sql"
        DESTINATION ${vivozo_share_dir}/db)
file(WRITE "${PROJECT_BINARY_DIR}/generated/version/VERSION" "${PROJECT_VERSION}\n")
install(FILES "${PROJECT_BINARY_DIR}/generated/version/VERSION" DESTINATION ${vivozo_share_dir})
# A bridge's configuration to copy into /etc/roruvivozo/bridge-<instance>.conf (readable by root only).
install(FILES "${vivozo_packaging_dir}/bridge-example.conf" DESTINATION ${vivozo_share_dir})

# The unit and its environment file name the installed programs, so they are made at install time, when
# the prefix (cpack's, or --prefix) is known. System configuration lives in /etc, not /usr/etc: an install
# into <root>/usr puts the environment file into <root>/etc; any other prefix keeps it under the prefix.
install(CODE "
    string(REGEX REPLACE \"/usr/?$\" \"\" vivozo_system_root \"\${CMAKE_INSTALL_PREFIX}\")
    if(vivozo_system_root STREQUAL CMAKE_INSTALL_PREFIX)
        set(vivozo_etc_dir \"\${CMAKE_INSTALL_PREFIX}/etc\")
    else()
        set(vivozo_etc_dir \"\${vivozo_system_root}/etc\")
    endif()
    set(VIVOZO_BINDIR \"\${CMAKE_INSTALL_PREFIX}/bin\")
    set(VIVOZO_ENVIRONMENT_FILE \"\${vivozo_etc_dir}/default/roruvivozo\")
    set(VIVOZO_BRIDGE_CONFIG_DIR \"\${vivozo_etc_dir}/roruvivozo\")
    set(vivozo_path /usr/local/bin \"\${VIVOZO_BINDIR}\" /usr/bin /bin)
    list(REMOVE_DUPLICATES vivozo_path)
    string(REPLACE \";\" \":\" VIVOZO_PATH \"\${vivozo_path}\")
    set(vivozo_made \"${PROJECT_BINARY_DIR}/generated/packaging\")
    configure_file(\"${vivozo_packaging_dir}/roruvivozo.service.in\" \"\${vivozo_made}/roruvivozo.service\" @ONLY)
    configure_file(\"${vivozo_packaging_dir}/roruvivozo-web.service.in\" \"\${vivozo_made}/roruvivozo-web.service\" @ONLY)
    configure_file(\"${vivozo_packaging_dir}/roruvivozo.default.in\" \"\${vivozo_made}/roruvivozo\" @ONLY)
    configure_file(\"${vivozo_packaging_dir}/roruvivozo-bridge@.service.in\" \"\${vivozo_made}/roruvivozo-bridge@.service\"
                   @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
         FILES \"\${vivozo_made}/roruvivozo.service\" \"\${vivozo_made}/roruvivozo-web.service\"
         \"\${vivozo_made}/roruvivozo-bridge@.service\")
    file(INSTALL DESTINATION \"\${vivozo_etc_dir}/default\" TYPE FILE FILES \"\${vivozo_made}/roruvivozo\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME roruvivozo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Hollvik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RTCM correction-data logger of the Zelt survey suite")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "RORU Vivozo appends every RTCM 3 datagram that reaches its data port to the current log file,\n"
    "rotates files, converts every closed file to RINEX with RTKLIB's convbin and obeys the operator's\n"
    "$PZELT sentences. Ships the logger, the operator console zeltconsole, rtcm3scan, rtcmreplay,\n"
    "the suite creation script vivozo-create-suite, the systemd unit roruvivozo.service,\n"
    "roruvivozo-web.service, the status page in a browser (zeltconsole serve; not enabled), and rtcmbridge\n"
    "with its unit roruvivozo-bridge@.service, which bring corrections from NTRIP casters, TCP and\n"
    "serial ports to the logger.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(VIVOZO_PACKAGE_MAINTAINER "RORU Vivozo developers <roruvivozo@localhost>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VIVOZO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries come from the binaries; what they load or start at run time must be named: convbin
# (makerinex.bat), gnuplot and the font it draws the quality pictures with, the SQLite ODBC driver
# (ZELTDB), Qt's SQLite plugin (token store), sqlite3 and adduser (suite creation, the service user).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "rtklib, gnuplot-nox | gnuplot, fonts-dejavu-core, libsqliteodbc, libqt5sql5-sqlite, sqlite3, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${vivozo_packaging_dir}/debian/conffiles" "${vivozo_packaging_dir}/debian/postinst"
    "${vivozo_packaging_dir}/debian/prerm" "${vivozo_packaging_dir}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

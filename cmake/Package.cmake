# Installation and the Debian package (./ger package): the programs in bin/, the host library and
# the module in lib/ger/ (the host finds the module beside its library), the reference data in
# share/ger/data/ (the programs find it at ../share/ger/data from their own folder), the service
# unit, its settings and the nginx configuration.
set(GER_PRIVATE_LIBDIR lib/ger)

set(programs ger-server ger-admin)
if(TARGET ger-host)
  list(APPEND programs ger-host)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION bin)
set_target_properties(${programs} PROPERTIES INSTALL_RPATH "$ORIGIN/../${GER_PRIVATE_LIBDIR}")
install(TARGETS gerhost Pkg_Ger00200 LIBRARY DESTINATION ${GER_PRIVATE_LIBDIR})
set_target_properties(gerhost Pkg_Ger00200 PROPERTIES INSTALL_RPATH "$ORIGIN")
# Report definitions go where the host looks for them: "reports" beside its library.
file(GLOB report_definitions CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Ger0020*/*.json)
install(FILES ${report_definitions} DESTINATION ${GER_PRIVATE_LIBDIR}/reports)
# The user's guide where the help window looks for it: "help" beside the host's library.
install(DIRECTORY ${GER_GUIDE_DIR} DESTINATION ${GER_PRIVATE_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION share/ger/data
        FILES_MATCHING PATTERN "*.csv")
install(FILES ${PROJECT_SOURCE_DIR}/deploy/ger-server.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/deploy/default-ger-server DESTINATION /etc/default
        RENAME ger-server)
install(FILES ${PROJECT_SOURCE_DIR}/deploy/nginx/ger.conf DESTINATION share/ger/nginx)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/ARCHITECTURE.md
        DESTINATION share/doc/ger)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "company maintenance module, its desktop host and application server")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "The company screen of a Brazilian business system as a loadable module, the Qt desktop "
       "host that shows it, the JSON-RPC application server (a systemd service on SQLite or "
       "PostgreSQL), ger-admin for backups and reference-list refreshes, and the reference data "
       "of Brazil.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ger maintainers <root@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# The Qt platform plugins (a display, or off-screen) are loaded at run time, unseen by shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, qt6-qpa-plugins")
# pg_dump and pg_restore for backups of a PostgreSQL database; nginx for TLS off loopback.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "nginx")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/deploy/debian/postinst ${PROJECT_SOURCE_DIR}/deploy/debian/prerm
    ${PROJECT_SOURCE_DIR}/deploy/debian/postrm ${PROJECT_SOURCE_DIR}/deploy/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)

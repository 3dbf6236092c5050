# All third-party code comes from Debian packages installed by ./ger.
find_package(Threads REQUIRED)
find_package(Boost 1.81.0 EXACT CONFIG REQUIRED COMPONENTS json)
find_package(SQLite3 REQUIRED)
find_package(PostgreSQL REQUIRED)
find_package(spdlog CONFIG REQUIRED)
find_package(CLI11 CONFIG REQUIRED)
find_package(GTest CONFIG REQUIRED)
# TLS in the desktop host's client, and the certificates ger-admin makes.
find_package(OpenSSL 3 REQUIRED)

# Debian ships cpp-httplib compiled: the header declares, libcpp-httplib.so defines. The library
# was built with TLS and compression, which change its class layouts, so every user must compile
# with the same definitions: take them from its pkg-config file.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CPPHTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_library(httplib INTERFACE)
target_link_libraries(httplib INTERFACE PkgConfig::CPPHTTPLIB Threads::Threads)

# Report pages: cairo draws them (PDF without a display), pango finds their fonts.
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo cairo-pdf pangocairo)

find_path(STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb REQUIRED)
add_library(stb INTERFACE)
target_include_directories(stb SYSTEM INTERFACE ${STB_INCLUDE_DIR})

if(GER_BENCH)
  find_package(benchmark CONFIG REQUIRED)
endif()
if(GER_SHELL)
  find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport Test)
endif()

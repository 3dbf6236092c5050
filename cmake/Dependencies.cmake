# All third-party code comes from Debian packages installed by ./ger.
find_package(Threads REQUIRED)
find_package(Boost 1.81.0 EXACT CONFIG REQUIRED COMPONENTS json)
find_package(SQLite3 REQUIRED)
find_package(PostgreSQL REQUIRED)
find_package(spdlog CONFIG REQUIRED)
find_package(CLI11 CONFIG REQUIRED)
find_package(GTest CONFIG REQUIRED)

find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
# Debian ships cpp-httplib compiled: the header declares, libcpp-httplib.so defines.
find_library(HTTPLIB_LIBRARY cpp-httplib REQUIRED)
add_library(httplib INTERFACE)
target_include_directories(httplib SYSTEM INTERFACE ${HTTPLIB_INCLUDE_DIR})
target_link_libraries(httplib INTERFACE ${HTTPLIB_LIBRARY} Threads::Threads)

find_path(STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb REQUIRED)
add_library(stb INTERFACE)
target_include_directories(stb SYSTEM INTERFACE ${STB_INCLUDE_DIR})

if(GER_BENCH)
  find_package(benchmark CONFIG REQUIRED)
endif()
if(GER_SHELL)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
endif()

# Settings of the Windows build (MinGW-w64 cross-build).
#
# spdlog, fmt, CLI11 and nlohmann_json: Debian ships them for the build
# machine only, but all are header-only capable, so their headers are used as
# they are (through a folder that holds nothing else, so no other header of
# the build machine leaks in).
set(QVL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${QVL_HOST_HEADERS})
foreach(lib spdlog fmt CLI nlohmann)
    if(NOT EXISTS /usr/include/${lib})
        message(FATAL_ERROR "/usr/include/${lib} is missing: see scripts/setup.sh")
    endif()
    if(NOT EXISTS ${QVL_HOST_HEADERS}/${lib})
        file(CREATE_LINK /usr/include/${lib} ${QVL_HOST_HEADERS}/${lib} SYMBOLIC)
    endif()
endforeach()
add_library(qvl_fmt INTERFACE)
target_include_directories(qvl_fmt SYSTEM INTERFACE ${QVL_HOST_HEADERS})
target_compile_definitions(qvl_fmt INTERFACE FMT_HEADER_ONLY)
add_library(fmt::fmt ALIAS qvl_fmt)
add_library(qvl_spdlog INTERFACE)
target_link_libraries(qvl_spdlog INTERFACE qvl_fmt)
# Log file names as wide text: a path under a user name outside the system's
# code page opens as it is.
target_compile_definitions(qvl_spdlog INTERFACE SPDLOG_FMT_EXTERNAL SPDLOG_WCHAR_FILENAMES)
add_library(spdlog::spdlog ALIAS qvl_spdlog)
# qvlctl's command line and JSON: header-only, used the same way.
add_library(qvl_cli11 INTERFACE)
target_include_directories(qvl_cli11 SYSTEM INTERFACE ${QVL_HOST_HEADERS})
add_library(CLI11::CLI11 ALIAS qvl_cli11)
add_library(qvl_json INTERFACE)
target_include_directories(qvl_json SYSTEM INTERFACE ${QVL_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json ALIAS qvl_json)

# wx-msw: built static by scripts/windows.sh; its wx-config is passed in as
# wxWidgets_CONFIG_EXECUTABLE. Its prefix joins the find roots, so its headers
# are found where they are rather than under the MinGW root.
set(wxWidgets_USE_STATIC ON)
if(wxWidgets_CONFIG_EXECUTABLE)
    execute_process(COMMAND ${wxWidgets_CONFIG_EXECUTABLE} --prefix
        OUTPUT_VARIABLE QVL_WX_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND CMAKE_FIND_ROOT_PATH ${QVL_WX_PREFIX})
endif()

# Windows 7 and later APIs, wide-character calls, no min/max macros.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)
# One self-contained exe: the C and C++ runtimes and winpthread linked in.
add_link_options(-static -static-libgcc -static-libstdc++)

# Windows executables carry a version resource and the LK58 icon:
# lk58_windows_resource(<target> <OriginalFilename> <FileDescription>).
# The description may hold \xNNNN escapes (UTF-16), which the resource keeps.
function(lk58_windows_resource target name description)
    if(NOT WIN32)
        return()
    endif()
    enable_language(RC)
    set(LK58_RC_FILE ${name})
    set(LK58_RC_NAME ${name})
    set(LK58_RC_DESCRIPTION "${description}")
    set(LK58_RC_ICON ${PROJECT_SOURCE_DIR}/src/app/icons/lk58.ico)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/dist/windows/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

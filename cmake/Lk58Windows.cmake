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

# Qt's own Czech texts (Debian's qt6-translations-l10n, made for the same Qt
# 6.4) in a translations folder beside each Windows program, where the
# program looks first: Qt for Windows comes in the program's folder, without
# a catalogue of its own. lk58_windows_qt_texts(<target>...)
function(lk58_windows_qt_texts)
    if(NOT WIN32)
        return()
    endif()
    find_file(LK58_QTBASE_CS_QM qtbase_cs.qm PATHS /usr/share/qt6/translations
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    foreach(target ${ARGN})
        if(TARGET ${target})
            add_custom_command(TARGET ${target} POST_BUILD
                COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/translations
                COMMAND ${CMAKE_COMMAND} -E copy_if_different ${LK58_QTBASE_CS_QM}
                        $<TARGET_FILE_DIR:${target}>/translations/qtbase_cs.qm
                VERBATIM)
        endif()
    endforeach()
endfunction()

# lk58_gzip(<file> <var>): <file> (of this source folder, or a full path,
# such as a file this folder generates) compressed as Debian wants it, with
# gzip -9n (no name or time in the header, so that a rebuild gives the same
# bytes), at build time; <var> gets the compressed file's path.
function(lk58_gzip file var)
    get_filename_component(name ${file} NAME)
    get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${path} ${out}
        DEPENDS ${path} VERBATIM)
    string(MAKE_C_IDENTIFIER "gz_${CMAKE_CURRENT_SOURCE_DIR}_${file}" target)
    add_custom_target(${target} ALL DEPENDS ${out})
    set(${var} ${out} PARENT_SCOPE)
endfunction()

# lk58_install_man(<page>): installs a manual page such as tool.1 (as for
# lk58_gzip), compressed, into the man section its name ends with.
function(lk58_install_man page)
    string(REGEX MATCH "[0-9]$" section ${page})
    lk58_gzip(${page} gz)
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

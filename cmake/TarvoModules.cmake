# Modules the program loads the first time it needs them (image work, sound),
# so that their libraries stay out of a shelf that never uses them. They live
# in one folder found from the program's own folder: LIBDIR/tarvo when
# installed, and in the build tree the same place seen from any program one
# folder below the top (TarvoApp/tarvo, tests/..., bench/...).
set(TARVO_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/tarvo)
file(RELATIVE_PATH TARVO_MODULE_DIR_FROM_PROGRAM
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tarvo)
get_filename_component(TARVO_MODULE_BUILD_DIR
    ${CMAKE_BINARY_DIR}/bin/${TARVO_MODULE_DIR_FROM_PROGRAM} ABSOLUTE)

function(tarvo_add_module name)
    add_library(${name} MODULE ${ARGN})
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        AUTOMOC OFF
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        LIBRARY_OUTPUT_DIRECTORY ${TARVO_MODULE_BUILD_DIR})
    # The static libraries inside keep their symbols to themselves, and every
    # symbol is found when linking rather than at the first call.
    target_link_options(${name} PRIVATE LINKER:--exclude-libs,ALL LINKER:--no-undefined)
    install(TARGETS ${name} LIBRARY DESTINATION ${TARVO_MODULE_INSTALL_DIR})
endfunction()

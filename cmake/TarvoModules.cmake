# Modules the program loads the first time it needs them (image work, sound),
# so that their libraries stay out of a shelf that never uses them. They live
# in one folder found from the program's own folder: lib/<multiarch>/tarvo
# when installed (LIBDIR/tarvo where there is no multiarch name), and in the
# build tree the same place seen from any program one folder below the top
# (TarvoApp/tarvo, tests/..., bench/...). They are private to the program, so
# the multiarch folder keeps the package's maintainer scripts free of ldconfig.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(TARVO_MODULE_INSTALL_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/tarvo)
else()
    set(TARVO_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/tarvo)
endif()
file(RELATIVE_PATH TARVO_MODULE_DIR_FROM_PROGRAM
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${TARVO_MODULE_INSTALL_DIR})
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

# Puts the three built driver libraries into a program as resources
# (types IDD_DLL_COM/LPT/USB, ids 145-147), so the program can write the
# one a download needs to disk.
function(kestrel_embed_drivers target)
    set(rc ${CMAKE_SOURCE_DIR}/resources/drivers.rc)
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} com lpt usb)
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
        $<TARGET_FILE:com> $<TARGET_FILE:lpt> $<TARGET_FILE:usb>)
    set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES
        $<TARGET_FILE_DIR:com>)
endfunction()

# Puts the three built driver libraries into a program as resources
# (types IDD_DLL_COM/LPT/USB, ids 145-147), so the program can write the
# one a download needs to disk.
function(kestrel_embed_drivers target)
    set(rc ${CMAKE_SOURCE_DIR}/resources/drivers.rc)
    set(bin ${CMAKE_BINARY_DIR}/bin)
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} com lpt usb)
    # OBJECT_DEPENDS takes no generator expressions before CMake 3.27; the
    # libraries land in the tree's bin folder, so name them there.
    set_property(SOURCE ${rc} PROPERTY OBJECT_DEPENDS ${bin}/com.dll ${bin}/lpt.dll ${bin}/usb.dll)
    set_property(SOURCE ${rc} PROPERTY INCLUDE_DIRECTORIES ${bin})
endfunction()

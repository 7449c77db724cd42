# The layer rule, kept by the compiler: each of the project's libraries compiles against an include
# root of its own that holds only its own folder and the folders of the project libraries it links
# (directly or through others), as links to the headers under src/. An `#include "folder/…"` of any
# other folder, such as the instrument's from the audio layer, finds no file and fails to build.
# The links are what the libraries link, so the dependency table has one home: the
# target_link_libraries of each folder's CMakeLists.txt (the folders' READMEs state it in words).
#
# A folder's root holds the headers directly in it, not those of its subfolders: `platform` does
# not give `platform/alsa`. Tests, benchmarks and fuzz targets see all of src/.

# The folder under src/ that `target` is built from ("audio", "platform/alsa").
function(soundscope_folder_of target out)
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${dir})
    set(${out} ${folder} PARENT_SCOPE)
endfunction()

# The project libraries `target` links, itself included, each once.
function(soundscope_layer_closure target libraries out)
    set(closure ${target})
    set(pending ${target})
    while(pending)
        list(POP_FRONT pending current)
        get_target_property(links ${current} LINK_LIBRARIES)
        foreach(link IN LISTS links)
            if(link IN_LIST libraries AND NOT link IN_LIST closure)
                list(APPEND closure ${link})
                list(APPEND pending ${link})
            endif()
        endforeach()
    endwhile()
    set(${out} ${closure} PARENT_SCOPE)
endfunction()

# Gives every library of `libraries` its include root (after all of them are defined).
function(soundscope_include_roots)
    set(libraries ${ARGN})
    foreach(target IN LISTS libraries)
        set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
        file(REMOVE_RECURSE ${root})
        soundscope_layer_closure(${target} "${libraries}" closure)
        foreach(library IN LISTS closure)
            soundscope_folder_of(${library} folder)
            file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
            file(MAKE_DIRECTORY ${root}/${folder})
            foreach(header IN LISTS headers)
                get_filename_component(name ${header} NAME)
                file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
            endforeach()
        endforeach()
        target_include_directories(${target} PRIVATE ${root})
        set_target_properties(${target} PROPERTIES SOUNDSCOPE_INCLUDE_ROOT ${root})
    endforeach()
endfunction()

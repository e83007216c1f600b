# Part of the install script (cmake_install.cmake): the folders an install
# makes are opened to everyone (CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS)
# whatever the installer's umask. CMake 3.25 makes the folders above the files
# it installs with mkdir alone, so umask 077 leaves them 700 and every other
# user is shut out of the installed programs. Folders that were there before
# the install keep their modes: only the ones it makes are changed.
#
# vellrun_note_new_folders(<destinations>) runs before the first file is
# installed and notes which folders of the destinations (relative to the
# prefix, or absolute) and above them do not exist yet;
# vellrun_open_new_folders() runs after the last and sets their modes.

function(vellrun_note_new_folders destinations)
    set(missing "")
    foreach(destination IN LISTS destinations)
        if(IS_ABSOLUTE "${destination}")
            set(folder "$ENV{DESTDIR}${destination}")
        else()
            set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${destination}")
        endif()
        cmake_path(NORMAL_PATH folder)
        string(REGEX REPLACE "(.)/+$" "\\1" folder "${folder}")
        while(NOT EXISTS "${folder}" AND NOT folder STREQUAL "/" AND NOT folder STREQUAL "")
            list(APPEND missing "${folder}")
            cmake_path(GET folder PARENT_PATH folder)
        endwhile()
    endforeach()
    list(REMOVE_DUPLICATES missing)
    set(VELLRUN_NEW_INSTALL_FOLDERS "${missing}" PARENT_SCOPE)
endfunction()

function(vellrun_open_new_folders)
    foreach(folder IN LISTS VELLRUN_NEW_INSTALL_FOLDERS)
        if(IS_DIRECTORY "${folder}")
            file(CHMOD "${folder}" PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
        endif()
    endforeach()
endfunction()

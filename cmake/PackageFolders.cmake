# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) between staging the install and
# packing it: every folder of the package is opened to everyone. The staging
# folder is cpack's own, made with the packager's umask, and its prefix folder
# (./usr) is made by cpack before the install runs, so the install's own care
# (InstallFolders.cmake) never reaches it.
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
        file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
            GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()

# cmake -DFOLDER=<path> -P fresh_folder.cmake: empties the folder, creating it when missing.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})

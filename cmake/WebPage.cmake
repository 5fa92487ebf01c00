# The page: index.html, coppertrowel.js and coppertrowel.wasm together in page/, the three files any static
# host serves. No threads (a page gets shared memory only with headers most hosts cannot send), no file
# system, memory that grows with the screen, and main callable again for the page's "Start again".
set(_page ${CMAKE_BINARY_DIR}/page)
set_target_properties(coppertrowel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_page})
target_link_options(coppertrowel PRIVATE
    -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=0 -sEXIT_RUNTIME=0
    "-sEXPORTED_RUNTIME_METHODS=[callMain]")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/platform/web_page.html ${_page}/index.html COPYONLY)

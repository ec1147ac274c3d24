# Tests of the site: its file and the device CSV import.
add_executable(sitesavehelper sitesavehelper.cpp)
target_link_libraries(sitesavehelper PRIVATE kov_site kov_settings)
kov_add_test(tst_site LABELS site LIBS kov_site)
target_compile_definitions(tst_site PRIVATE KOV_SITE_SAVE_HELPER="$<TARGET_FILE:sitesavehelper>")
add_dependencies(tst_site sitesavehelper)

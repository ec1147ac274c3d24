# Tests of the device panel and IR send through the real window

# Its own executable directory: the window starts "puttytel" from there,
# and the test puts a stand-in in place, so no other test may share it.
kov_add_test(tst_deviceactions LABELS app LIBS kov_app)
set_target_properties(tst_deviceactions PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/deviceactions)

kov_add_test(tst_irsend LABELS app LIBS kov_app)

# The Linux telnet launcher shipped beside the tool.
kov_add_test(tst_puttytel LABELS app LIBS Qt6::Core)
target_compile_definitions(tst_puttytel PRIVATE
    KOV_PUTTYTEL="${PROJECT_SOURCE_DIR}/dist/linux/puttytel")

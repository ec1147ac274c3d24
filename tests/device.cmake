# Tests of the device subsystem: kov_add_test(tst_x LIBS ...)

# Tests of the firmware subsystem: kov_add_test(tst_x LIBS ...)

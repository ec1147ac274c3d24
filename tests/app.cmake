# Tests of the app subsystem: kov_add_test(tst_x LIBS ...)

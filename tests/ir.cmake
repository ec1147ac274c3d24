# Tests of the ir subsystem: kov_add_test(tst_x LIBS ...)

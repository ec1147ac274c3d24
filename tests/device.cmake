# Tests of the device subsystem: kov_add_test(tst_x LIBS ...)
kov_add_test(tst_kovdetector LIBS kov_device Qt6::Network)
kov_add_test(tst_kovtable LIBS kov_device)

# Tests of the device subsystem: the datagram endpoint and the device table.
kov_add_test(tst_kovdetector LIBS kov_device Qt6::Network)
kov_add_test(tst_kovtable LIBS kov_device)

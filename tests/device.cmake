# Tests of the device subsystem: the datagram endpoint and the device table.
kov_add_test(tst_kovdetector LABELS device LIBS kov_device Qt6::Network)
kov_add_test(tst_kovtable LABELS device LIBS kov_device)
kov_add_test(tst_addressrange LABELS device LIBS kov_device)
kov_add_test(tst_unicastprobe LABELS device LIBS kov_device Qt6::Network)
kov_add_test(tst_kovtableproxy LABELS device LIBS kov_device)
kov_add_test(tst_devicelistcsv LABELS device LIBS kov_device)
# The open site over the device table (rows, saves, changes on disk).
kov_add_test(tst_sitesession LABELS device site LIBS kov_site)

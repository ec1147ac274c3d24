# Tests of the app subsystem: the main window's form and start-up, and the
# firmware update workflow against a local web service and real TFTP clients.
kov_add_test(tst_mainwindow LIBS kov_app)
kov_add_test(tst_firmwareworkflow LIBS kov_app SOURCES httptestserver.h)

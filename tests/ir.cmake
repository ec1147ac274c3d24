# Tests of the ir subsystem: code synthesis and decoding, the CCF check, the
# generator dialog.
kov_add_test(tst_ircode LIBS kov_ir)
kov_add_test(tst_ccfparser LIBS kov_ir)
kov_add_test(tst_ircodegeneratordialog LIBS kov_irdialog Qt6::Widgets)
kov_add_test(tst_irdecoder LIBS kov_ir)

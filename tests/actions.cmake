# Tests of the device panel and IR send through the real window

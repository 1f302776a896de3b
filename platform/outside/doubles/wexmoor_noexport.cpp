// Stand-in libWexmoor.so for tests: loads, but lacks CreateCaptureDevice.
extern "C" __attribute__((visibility("default"))) int WexmoorVersion() { return 1; }

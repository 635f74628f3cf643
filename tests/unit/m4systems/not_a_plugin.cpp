// A shared object without the plug-in exports.
extern "C" __attribute__((visibility("default"))) int SomethingElse() {
    return 42;
}

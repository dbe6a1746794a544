// A web engine module from before the interface version: it has only the
// old entry point, which a current program must never call.
extern "C" __attribute__((visibility("default"))) void* quillnook_web_engine_module()
{
    return nullptr;
}

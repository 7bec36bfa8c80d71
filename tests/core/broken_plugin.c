/* A plugin without VKVX_ProcessFrame: it must be refused. */
__attribute__((visibility("default"))) const char* VKVX_InitPlugin(void) { return "KVX-E LV A"; }

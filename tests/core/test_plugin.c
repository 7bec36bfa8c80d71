/* A plugin serving "KVX-E LV A": two modes, the first with firmware "MB01"
 * (applicable to LVDS devices), the second with an identifier no built-in
 * entry carries.  Its frame processing answers 5; it records the last option. */
#include <string.h>

#define VKVX_RECORDS_ONLY
#include "vkvx.h"

__attribute__((visibility("default"))) int32_t test_plugin_last_option[2] = {-1, -1};

static VKVX_OPERATION_MODE modes[2];
static VKVX_FIRMWARE_IMAGE firmware[2];

__attribute__((visibility("default"))) const char* VKVX_InitPlugin(void) { return "KVX-E LV A"; }

__attribute__((visibility("default"))) VKVX_OPERATION_MODE* VKVX_GetAdditionalMode(int32_t* count)
{
    memset(modes, 0, sizeof modes);
    strcpy(modes[0].Name, "Plugin capture");
    modes[0].ModeType = 1;
    strcpy(modes[1].Name, "Plugin other");
    *count = 2;
    return modes;
}

__attribute__((visibility("default"))) VKVX_FIRMWARE_IMAGE* VKVX_GetFirmware(int32_t* count)
{
    memset(firmware, 0, sizeof firmware);
    memcpy(firmware[0].Id, "MB01", 4);
    memcpy(firmware[1].Id, "QQ99", 4);
    *count = 2;
    return firmware;
}

__attribute__((visibility("default"))) int32_t VKVX_ProcessFrame(VKVX_FRAME* frame)
{
    (void)frame;
    return 5;
}

__attribute__((visibility("default"))) int32_t VKVX_SetOption(int32_t id, int32_t value)
{
    test_plugin_last_option[0] = id;
    test_plugin_last_option[1] = value;
    return 0;
}

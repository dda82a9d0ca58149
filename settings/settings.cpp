#include "settings/settings.h"

Settings g_settings;

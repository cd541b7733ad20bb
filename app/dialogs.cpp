#include "app/dialogs.h"

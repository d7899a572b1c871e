#include "controls/filelist/dirlistbox.h"

#include "controls/filelist/filelistbox.h"

#include "editprofile/editprofile.h"

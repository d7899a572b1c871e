#include "Form1/picturebutton.h"

#include "Form1/form1.h"

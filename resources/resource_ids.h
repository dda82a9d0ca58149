// Names and control ids shared by the resource script and the code.
#pragma once

#define kProgressDialog "PROGRES"
#define kIdProgressBar 1018
#define kIdProgressLabel 1020

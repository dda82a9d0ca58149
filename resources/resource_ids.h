// Names and control ids shared by the resource script and the code.
#pragma once

#define kProgressDialog "PROGRES"
#define kIdProgressBar 1018
#define kIdProgressLabel 1020

#define kSongInfoDialog "SISIOR"
#define kIdInfoAuthor 1001
#define kIdInfoName 1007
#define kIdInfoCopyright 1008
#define kIdInfoSongs 1009
#define kIdInfoLoad 1010
#define kIdInfoPath 1011
#define kIdInfoInit 1012
#define kIdInfoPlay 1013
#define kIdInfoDump 1014

#define kAboutDialog "ABOUT"
#define kIdAboutText 1007

#define kConfigDialog "KONFIG"
#define kIdConfigPort 1015
#define kIdConfigTime 1007
#define kIdConfigTimeBuddy 1008
#define kIdConfigTimeUpDown 1017
#define kIdConfigDriverFlag 1022

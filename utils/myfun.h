// The utility library's helpers in one include: the application-facing ones
// (a path next to the program's own file, the log-on autostart value, the
// text between two markers) and the file and folder, text and list, path
// text, process, random, shell, date and log, download, FTP and update
// description helpers. Each is declared in the header of its subject.
#pragma once

#include "utils/desktop/shellhelper.h"
#include "utils/files/apppath.h"
#include "utils/files/datetimehelper.h"
#include "utils/files/filehelper.h"
#include "utils/files/logwriter.h"
#include "utils/files/pathhelper.h"
#include "utils/http/downloadhelper.h"
#include "utils/http/ftphelper.h"
#include "utils/system/autorun.h"
#include "utils/system/processhelper.h"
#include "utils/text/randomhelper.h"
#include "utils/text/texthelper.h"
#include "utils/text/updateinfo.h"

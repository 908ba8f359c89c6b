// Everything the plug-in sees of the calendar application, in one include:
// the tsycore and tsyui entry points and every host service, object and
// interface. HostCommon.h states the rules they all share; each header states
// the lifecycle and threading of its own interfaces.
#pragma once

#include "HostCommon.h"
#include "HostCore.h"
#include "Settings.h"
#include "Application.h"
#include "Language.h"
#include "Resources.h"
#include "Calendar.h"
#include "DayContent.h"
#include "Events.h"
#include "Notes.h"
#include "Timetables.h"
#include "Ui.h"
#include "PluginHost.h"

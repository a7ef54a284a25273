#pragma once

class Alerts;
class UserDefaults;

/// Shows the welcome notice the first time a user starts the program; the flag
/// "CLDidShowFirstRun" is written only once the notice has been dismissed.
void showFirstRunIfNeeded(UserDefaults& defaults, Alerts& alerts);

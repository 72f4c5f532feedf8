// player_main.cpp - the release player's entry point.
#include "app/application.h"

int main() {
    return runPlayer();
}

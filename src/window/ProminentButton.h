#pragma once

class QPushButton;

// The connect screen's main actions: a push button filled with the highlight colour.
void makeProminent(QPushButton* button);

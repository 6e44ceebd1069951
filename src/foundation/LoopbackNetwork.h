#pragma once

class QNetworkAccessManager;

// The application's one HTTP client for the bridge on 127.0.0.1. Loopback requests never go
// through a proxy nor follow a redirect; the client lives as long as the application object.
QNetworkAccessManager& loopbackNetwork();

// The host's publish mode: configures the publish manager from the options,
// publishes until the time is up or SIGINT/SIGTERM arrives, prints the
// status words and one statistics line per second, and stops cleanly.
#pragma once
#include "publish_options.h"

// 0 when the server accepted the stream (NetStream.Publish.Start was heard).
int RunPublish(const PublishOptions& options);

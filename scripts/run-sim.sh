#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Installs what the programs need, builds them (not the tests), and starts Regwise on its four
# simulated UARTs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --program build
exec build/bin/regwise-sim

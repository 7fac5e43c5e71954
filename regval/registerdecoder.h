#pragma once

// What a register value means, bit by bit (declared here).

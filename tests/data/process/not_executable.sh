#!/bin/sh
# Has no execute permission: starting it must fail with "Permission denied".
exit 0

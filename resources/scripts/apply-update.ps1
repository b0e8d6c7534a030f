# Replaces the manager executable with a staged update; written out by the
# manager before it quits. The full transaction arrives with the self-update.
param([int]$ParentId, [string]$Target, [string]$Staged, [string]$Work, [string]$Version)
exit 1

# The manager's update helper for Windows. The manager writes it into the
# update's staging folder and starts it detached, with the manager's own
# (administrator) rights; the two then talk only through files in that folder.
# Once the manager has quit, the helper swaps the new executable in, starts it,
# and puts the previous one back if it does not report itself healthy.
param (
    [Parameter (Mandatory = $true)] [int] $ParentId,
    [Parameter (Mandatory = $true)] [string] $Target,
    [Parameter (Mandatory = $true)] [string] $Staged,
    [Parameter (Mandatory = $true)] [string] $Work,
    [Parameter (Mandatory = $true)] [string] $Version
)

$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 2

$preserved = $false
$replaced = $false
$parentExited = $false
$previous = Join-Path $Work 'previous.exe'
$failed = Join-Path $Work 'failed.exe'

function Start-Manager {
    Start-Process -FilePath $Target -WorkingDirectory (Split-Path -Parent $Target) -PassThru
}

try {
    # Only an executable signed by the same publisher as the running one.
    $old = Get-AuthenticodeSignature -LiteralPath $Target
    $new = Get-AuthenticodeSignature -LiteralPath $Staged
    if ($old.Status -ne 'Valid' -or $new.Status -ne 'Valid' -or
        $null -eq $old.SignerCertificate -or $null -eq $new.SignerCertificate -or
        $old.SignerCertificate.Thumbprint -ne $new.SignerCertificate.Thumbprint) {
        throw 'The update must have a valid signature from the current publisher.'
    }

    if ((Get-Item -LiteralPath $Staged).VersionInfo.ProductVersion -cne $Version) {
        throw 'The update executable has the wrong version.'
    }

    $parent = Get-Process -Id $ParentId -ErrorAction SilentlyContinue

    [System.IO.File]::WriteAllText((Join-Path $Work 'ready'), 'ready')

    if ($null -ne $parent -and -not $parent.WaitForExit(180000)) {
        throw 'The manager did not close in time.'
    }

    $parentExited = $true

    # Not armed: the manager changed its mind; nothing is touched.
    if (-not (Test-Path -LiteralPath (Join-Path $Work 'armed') -PathType Leaf)) {
        exit 0
    }

    # A virus scanner may hold the old file for a moment after the manager quit.
    for ($attempt = 1; ; $attempt++) {
        try {
            Move-Item -LiteralPath $Target -Destination $previous
            break
        } catch {
            if ($attempt -ge 30) { throw }
            Start-Sleep -Milliseconds 500
        }
    }
    $preserved = $true

    Move-Item -LiteralPath $Staged -Destination $Target
    $replaced = $true

    $started = Start-Manager
    $deadline = [DateTime]::UtcNow.AddSeconds(45)

    while (-not (Test-Path -LiteralPath (Join-Path $Work 'healthy') -PathType Leaf)) {
        if ($started.HasExited -or [DateTime]::UtcNow -ge $deadline) {
            if (-not $started.HasExited) { Stop-Process -Id $started.Id -Force -ErrorAction SilentlyContinue }
            $started.WaitForExit()
            throw 'The update did not start successfully; the previous manager was restored.'
        }
        Start-Sleep -Milliseconds 250
    }

    Remove-Item -LiteralPath $Work -Recurse -Force -ErrorAction SilentlyContinue
    exit 0
}
catch {
    $message = $_.Exception.Message
    try {
        if ($preserved) {
            if ($replaced) { Move-Item -LiteralPath $Target -Destination $failed -Force }
            Move-Item -LiteralPath $previous -Destination $Target -Force
        }
    } catch {}
    [System.IO.File]::WriteAllText((Join-Path $Work 'error'), $message)
    if ($parentExited) { Start-Manager | Out-Null }
    exit 1
}

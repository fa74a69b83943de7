// Converts every MGF file matched by --mgf into an MSP library file, one
// task per file, publishing the MSP file and its tally to --outdir.
//
//   nextflow run contrib/nextflow/main.nf --mgf 'spectra/*.mgf' --outdir libraries
//
// Each task runs `mspforge IN.mgf OUT.msp` (mspforge on the PATH of the
// executor); a failed conversion (exit code 2 or 3) fails its task.
nextflow.enable.dsl = 2

params.mgf = 'mgf/*.mgf'
params.outdir = 'msp'

process MGF_TO_MSP {
    tag "${mgf.baseName}"
    publishDir params.outdir, mode: 'copy'

    input:
    path mgf

    output:
    path "${mgf.baseName}.msp", emit: msp
    path "${mgf.baseName}.tally", emit: tally

    script:
    """
    mspforge '${mgf}' '${mgf.baseName}.msp' > '${mgf.baseName}.tally'
    """
}

workflow {
    MGF_TO_MSP(Channel.fromPath(params.mgf, checkIfExists: true))
}
